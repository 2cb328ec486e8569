! Fortran interface to the start-up of ZylSrvLinearAlgebra's MPI flavour
! (libZylSrvLinearAlgebraMPI).
!
! Conventions:
!   - the host initializes and finalizes MPI; the library never does;
!   - the communicator is a Fortran MPI handle (an integer, as `use mpi`
!     gives MPI_COMM_WORLD), passed by reference like the tally;
!   - the outermost start-up is collective over the communicator; a nested
!     one must give the same communicator, or the program ends with exit
!     status 1 after the message on standard error.
module zylsrv_parallel_interface
  use, intrinsic :: iso_c_binding, only: c_int
  implicit none
  private
  public :: ZYLSRVLINEARALGEBRAINITIALIZEPARALLEL, ZYLSRVLINEARALGEBRAFINALIZE

  interface

  subroutine ZYLSRVLINEARALGEBRAINITIALIZEPARALLEL(tally, communicator) &
      bind(C, name="ZYLSRVLINEARALGEBRAINITIALIZEPARALLEL")
    import :: c_int
    implicit none
    integer(c_int), intent(inout) :: tally
    integer(c_int), intent(in) :: communicator
  end subroutine ZYLSRVLINEARALGEBRAINITIALIZEPARALLEL

  subroutine ZYLSRVLINEARALGEBRAFINALIZE(tally) bind(C, name="ZYLSRVLINEARALGEBRAFINALIZE")
    import :: c_int
    implicit none
    integer(c_int), intent(inout) :: tally
  end subroutine ZYLSRVLINEARALGEBRAFINALIZE

  end interface
end module zylsrv_parallel_interface
