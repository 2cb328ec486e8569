# Lists the defined dynamic symbols of LIBRARY, demangled, and fails on
#  - a symbol outside the interface: every name (a class's typeinfo, its
#    typeinfo name and vtable by the class's name) must begin with a prefix of
#    the library's own families or of the platform libraries it stands in for;
#  - any mention of an internal error type (those ERRORS_HEADER declares),
#    since callers catch those as ZylBasException only.
execute_process(COMMAND ${NM} -D --defined-only -C ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT listing MATCHES "BLAC_DGEMM")
  message(FATAL_ERROR "no symbol list from ${NM} for ${LIBRARY}")
endif()
file(STRINGS ${ERRORS_HEADER} declarations REGEX "_ERROR\\(ZylSrvMtx|^class ZylSrvMtx")
string(REGEX MATCHALL "ZylSrvMtx[A-Za-z]+" internal "${declarations}")
if(NOT internal)
  message(FATAL_ERROR "no internal error type found in ${ERRORS_HEADER}")
endif()

set(interface "^(ZylSrv|ZylDorv|ZylBas|ZylDrovi|ZYLSRV|atr_|mem_|utl_|omi_|cow_|BLAC_|(blaC_(initialize|finalize|formalize)|mtx_(initialize|finalize))\\()")
string(REPLACE "\n" ";" lines "${listing}")
set(failures "")
foreach(line ${lines})
  string(REGEX REPLACE "^[0-9a-f]* *[A-Za-z] " "" name "${line}")
  string(REGEX REPLACE "^(typeinfo name for|typeinfo for|vtable for) " "" entity "${name}")
  if(NOT entity MATCHES "${interface}")
    string(APPEND failures "\n  outside the interface: ${name}")
  endif()
  foreach(type ${internal})
    if(name MATCHES "(^|[^A-Za-z0-9_])${type}([^A-Za-z0-9_]|$)")
      string(APPEND failures "\n  internal error type ${type}: ${name}")
    endif()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "${LIBRARY} exports more than its interface:${failures}")
endif()
