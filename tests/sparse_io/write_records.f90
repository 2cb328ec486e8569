! Writes a Fortran unformatted sequential file of a sparse matrix in the
! record layout of format 0, as a Fortran program of the solver would.
! usage: write_records listing output
! listing: "first n", then per row "k", k column numbers (1-based, the first
! for the diagonal) and k values.
program write_records
  implicit none
  character(len=4096) :: listing, output
  integer :: first, n, i, k
  integer, allocatable :: columns(:)
  double precision, allocatable :: values(:)

  call get_command_argument(1, listing)
  call get_command_argument(2, output)
  open (unit=10, file=trim(listing), status='old', action='read')
  open (unit=81, file=trim(output), access='sequential', form='unformatted', status='replace', action='write')
  read (10, *) first, n
  write (81) first, n
  allocate (columns(n), values(n))
  do i = 1, n
    read (10, *) k
    read (10, *) columns(1:k)
    read (10, *) values(1:k)
    write (81) k, columns(1:k), values(1:k)
  end do
  close (81)
  close (10)
end program write_records
