! Writes a sparse matrix as Fortran unformatted sequential records in the
! layout of format 0, as a Fortran program of the solver would.
! usage: write_records output < listing; listing: "first n", then per row
! one line "k, k column numbers (1-based, the diagonal's first), k values".
program write_records
  implicit none
  character(len=4096) :: output
  integer :: first, n, i, k
  integer, allocatable :: columns(:)
  double precision, allocatable :: values(:)

  call get_command_argument(1, output)
  open (unit=81, file=trim(output), access='sequential', form='unformatted', status='replace', action='write')
  read (*, *) first, n
  write (81) first, n
  allocate (columns(n), values(n))
  do i = 1, n
    read (*, *) k, columns(1:k), values(1:k)
    write (81) k, columns(1:k), values(1:k)
  end do
  close (81)
  deallocate (columns, values) ! main-program arrays are never released otherwise (LeakSanitizer)
end program write_records
