# The digest lists of the 1-, 2- and 3-rank runs must be the same, line for
# line, and must list every product (a run that stopped early lists fewer).
file(STRINGS ${DIR}/np1.txt one)
list(LENGTH one products)
if(products LESS 20)
  message(FATAL_ERROR "np1.txt lists ${products} products, 20 expected")
endif()
foreach(ranks 2 3)
  file(STRINGS ${DIR}/np${ranks}.txt other)
  if(NOT one STREQUAL other)
    message(FATAL_ERROR "the digests of ${ranks} ranks differ from those of 1 rank:\n${one}\n---\n${other}")
  endif()
endforeach()
