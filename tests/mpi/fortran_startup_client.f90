! A Fortran host of the MPI flavour: it initializes MPI itself, starts the
! library with MPI_COMM_WORLD (collective), nests a second start-up with the
! same communicator, and stops both. The tally must rise at the outermost
! start-up only and come back to 0; anything else stops with status 1.
program fortran_startup_client
  use mpi, only: MPI_COMM_WORLD, MPI_Init, MPI_Finalize
  use zylsrv_parallel_interface
  implicit none
  integer :: tally, outer, ierr

  call MPI_Init(ierr)
  tally = 0
  call ZYLSRVLINEARALGEBRAINITIALIZEPARALLEL(tally, MPI_COMM_WORLD)
  outer = tally
  call ZYLSRVLINEARALGEBRAINITIALIZEPARALLEL(tally, MPI_COMM_WORLD)
  if (outer < 3 .or. tally /= outer) error stop 1
  call ZYLSRVLINEARALGEBRAFINALIZE(tally)
  if (tally /= outer) error stop 1
  call ZYLSRVLINEARALGEBRAFINALIZE(tally)
  if (tally /= 0) error stop 1
  call MPI_Finalize(ierr)
end program fortran_startup_client
