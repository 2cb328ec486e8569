! A Fortran caller of the matrix container and the timer through the
! zylsrv_interface module: the handle by value, everything else by
! reference, function results as integers. Any mismatch ends the program
! with a nonzero exit status.
program container_fortran_client
  use, intrinsic :: iso_c_binding, only: c_int, c_int64_t, c_double
  use zylsrv_interface
  implicit none

  interface
    integer(c_int64_t) function zyltest_container_with_matrix(id, rows, columns) &
        bind(C, name="zyltest_container_with_matrix")
      import :: c_int, c_int64_t
      integer(c_int), intent(in) :: id, rows, columns
    end function zyltest_container_with_matrix
  end interface

  integer(c_int), parameter :: id = -12, m = 5, n = 3
  integer(c_int64_t) :: handle
  real(c_double) :: values(m * n + 4), cpu, wall, sink
  integer :: i, j, failures = 0

  handle = zyltest_container_with_matrix(id, m, n)
  call expect(ZYLSRVMATRIXCONTAINERNUMROWS(handle, id) == m, 'NUMROWS')
  call expect(ZYLSRVMATRIXCONTAINERNUMCOLUMNS(handle, id) == n, 'NUMCOLUMNS')

  ! Column-major with leading dimension m, nothing past m * n values.
  values = -1.0_c_double
  call ZYLSRVMATRIXCONTAINERGETVALUES(handle, id, values)
  call expect(all(values(1:m * n) == [((real(i + 100 * j, c_double), i = 0, m - 1), j = 0, n - 1)]), &
    'GETVALUES values')
  call expect(all(values(m * n + 1:) == -1.0_c_double), 'GETVALUES stays within rows x columns')

  sink = 0
  do i = 1, 10000000
    sink = sink + sqrt(real(i, c_double))
  end do
  call ZYLSRVGETCPUTIME(cpu)
  call ZYLSRVGETWALLTIME(wall)
  call expect(cpu > 0 .and. wall > 0 .and. sink > 0, 'times since CreateTimer')

  call ZYLSRVMATRIXCONTAINERDELETE(handle)
  call ZYLSRVMATRIXCONTAINERDELETE(0_c_int64_t)
  if (failures > 0) error stop 1

contains

  subroutine expect(condition, what)
    logical, intent(in) :: condition
    character(len=*), intent(in) :: what
    if (.not. condition) then
      print '(a, a)', 'FAILED: ', what
      failures = failures + 1
    end if
  end subroutine expect

end program container_fortran_client
