! Fortran interface to the matrix container and the process timer of
! ZylSrvLinearAlgebra.
!
! Conventions:
!   - the container handle is the container's address as an
!     integer(c_int64_t), passed BY VALUE; every other argument by reference;
!   - ids and sizes are integer(c_int), times and values real(c_double);
!   - ZYLSRVMATRIXCONTAINERGETVALUES fills values column-major with the
!     matrix's row count as leading dimension (any array of at least
!     rows * columns elements, or an element of one by sequence association);
!   - times are seconds since the host's CreateTimer, 0 before it;
!   - an error (e.g. an id the container does not hold) prints its message
!     to standard error and ends the program with exit status 1;
!   - matrices are registered by the C++ host through the class interface;
!     ZYLSRVMATRIXCONTAINERDELETE(0) does nothing.
module zylsrv_interface
  use, intrinsic :: iso_c_binding, only: c_int, c_int64_t, c_double
  implicit none
  private
  public :: ZYLSRVGETCPUTIME, ZYLSRVGETWALLTIME, ZYLSRVMATRIXCONTAINERCREATE, &
    ZYLSRVMATRIXCONTAINERNUMROWS, ZYLSRVMATRIXCONTAINERNUMCOLUMNS, &
    ZYLSRVMATRIXCONTAINERGETVALUES, ZYLSRVMATRIXCONTAINERDELETE

  interface

  subroutine ZYLSRVGETCPUTIME(t) bind(C, name="ZYLSRVGETCPUTIME")
    import :: c_double
    implicit none
    real(c_double), intent(out) :: t
  end subroutine ZYLSRVGETCPUTIME

  subroutine ZYLSRVGETWALLTIME(t) bind(C, name="ZYLSRVGETWALLTIME")
    import :: c_double
    implicit none
    real(c_double), intent(out) :: t
  end subroutine ZYLSRVGETWALLTIME

  integer(c_int64_t) function ZYLSRVMATRIXCONTAINERCREATE() bind(C, name="ZYLSRVMATRIXCONTAINERCREATE")
    import :: c_int64_t
    implicit none
  end function ZYLSRVMATRIXCONTAINERCREATE

  integer(c_int) function ZYLSRVMATRIXCONTAINERNUMROWS(handle, id) &
      bind(C, name="ZYLSRVMATRIXCONTAINERNUMROWS")
    import :: c_int, c_int64_t
    implicit none
    integer(c_int64_t), value, intent(in) :: handle
    integer(c_int), intent(in) :: id
  end function ZYLSRVMATRIXCONTAINERNUMROWS

  integer(c_int) function ZYLSRVMATRIXCONTAINERNUMCOLUMNS(handle, id) &
      bind(C, name="ZYLSRVMATRIXCONTAINERNUMCOLUMNS")
    import :: c_int, c_int64_t
    implicit none
    integer(c_int64_t), value, intent(in) :: handle
    integer(c_int), intent(in) :: id
  end function ZYLSRVMATRIXCONTAINERNUMCOLUMNS

  subroutine ZYLSRVMATRIXCONTAINERGETVALUES(handle, id, values) &
      bind(C, name="ZYLSRVMATRIXCONTAINERGETVALUES")
    import :: c_int, c_int64_t, c_double
    implicit none
    integer(c_int64_t), value, intent(in) :: handle
    integer(c_int), intent(in) :: id
    real(c_double), intent(out) :: values(*)
  end subroutine ZYLSRVMATRIXCONTAINERGETVALUES

  subroutine ZYLSRVMATRIXCONTAINERDELETE(handle) bind(C, name="ZYLSRVMATRIXCONTAINERDELETE")
    import :: c_int64_t
    implicit none
    integer(c_int64_t), value, intent(in) :: handle
  end subroutine ZYLSRVMATRIXCONTAINERDELETE

  end interface
end module zylsrv_interface
