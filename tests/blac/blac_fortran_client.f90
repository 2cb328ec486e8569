! A Fortran caller of the bridge through the blac_interface module, one call
! per kind of argument: single characters, integer and double scalars and
! arrays, an INFO written back, function results (double, LOGICAL as integer),
! character arrays with lengths by value (ILAENV), REAL arguments (IEEECK) and
! the compressed-row arrays of the sparse kernels (offsets and columns from 0).
! Any mismatch ends the program with a nonzero exit status.
program blac_fortran_client
  use, intrinsic :: iso_c_binding, only: c_int, c_float, c_double, c_char, c_size_t, c_int64_t
  use blac_interface
  implicit none

  integer(c_int), parameter :: m = 5, n = 3, k = 4
  real(c_double) :: a(7, 7), b(6, 6), c(8, n), want(m, n), g(n, n), x(n, 2)
  integer(c_int) :: ipiv(n), info, ispec
  integer :: i, failures = 0
  character(len=16) :: mode
  character(len=6, kind=c_char) :: names(3)
  ! The 2 x 3 sparse matrix [1 0 2; 0 0 0]: row 0 holds columns 0 and 2.
  real(c_double) :: spvalues(2) = [1.0_c_double, 2.0_c_double], sx(3, 2), sy(3, 2), ymv(2, 2)
  integer(c_int) :: offsets(3) = [0, 2, 2], columns(2) = [0, 2], rowlist(2) = [0, 0]

  ! "xerbla": only report bad arguments through BLAC_XERBLA; the test that
  ! runs this mode matches the printed reports. Names in a CHARACTER(6) array
  ! follow one another without a NUL: each report must show exactly one name.
  if (command_argument_count() >= 1) then
    call get_command_argument(1, mode)
    if (mode == 'xerbla') then
      names = [character(len=6, kind=c_char) :: 'DGEMM', 'DSYEVX', 'DTRSM']
      call BLAC_XERBLA(names(1), 3_c_int)
      call BLAC_XERBLA(names(2), 4_c_int)
      call BLAC_XERBLA(names(3), 13_c_int)
      stop
    end if
  end if

  ! DGEMM2 with A transposed and leading dimensions above the row counts.
  a = reshape([(sin(real(i, c_double)), i = 1, 49)], [7, 7])
  b = cos(a(1:6, 1:6))
  c = 0.25_c_double
  want = 1.5_c_double * matmul(transpose(a(1:k, 1:m)), b(1:k, 1:n)) - 0.5_c_double * c(1:m, :)
  call BLAC_DGEMM2('T', 'N', m, n, k, 1.5_c_double, a, 7_c_int, b, 6_c_int, -0.5_c_double, c, 8_c_int)
  call expect(maxval(abs(c(1:m, :) - want)) < 1e-13_c_double, 'DGEMM2 T N')
  call expect(all(c(m + 1:, :) == 0.25_c_double), 'DGEMM2 leaves the padding')

  ! DGESV: the solution, the pivots and INFO come back.
  g = a(1:n, 1:n)
  forall (i = 1:n) g(i, i) = g(i, i) + 4.0_c_double
  a(1:n, 1:n) = g
  x = b(1:n, 1:2)
  info = 99
  call BLAC_DGESV(n, 2_c_int, a, 7_c_int, ipiv, x, n, info)
  call expect(info == 0 .and. all(ipiv >= 1 .and. ipiv <= n), 'DGESV INFO and pivots')
  call expect(maxval(abs(matmul(g, x) - b(1:n, 1:2))) < 1e-12_c_double, 'DGESV residual')

  ! Function results: a double, a LOGICAL as integer, ILAENV's lengths.
  call expect(transfer(BLAC_HDMCON(5_c_int), 0_c_int64_t) == transfer(epsilon(1.0_c_double), 0_c_int64_t), &
    'HDMCON 5 is epsilon')
  call expect(BLAC_LSAME('a', 'A') /= 0 .and. BLAC_LSAME('N', 'T') == 0, 'LSAME')
  call expect(BLAC_ILAENV(1_c_int, 'DSYTRD', 'U', 500_c_int, -1_c_int, -1_c_int, -1_c_int, &
    6_c_size_t, 1_c_size_t) > 1, 'ILAENV block size for DSYTRD')
  ! IEEECK's ZERO and ONE are single precision.
  do ispec = 0, 1
    call expect(BLAC_IEEECK(ispec, 0.0_c_float, 1.0_c_float) == 1, 'IEEECK')
    call expect(BLAC_IEEECK(ispec, 1.0_c_float, 1.0_c_float) == 0, 'IEEECK ZERO not zero')
  end do

  ! Sparse kernels: two vectors, each as long as the table of lengths says.
  sx = reshape([1.0_c_double, 2.0_c_double, 3.0_c_double, 0.0_c_double, 0.0_c_double, 1.0_c_double], [3, 2])
  ymv = -1.0_c_double
  call BLAC_SPARSE_UMV(spvalues, sx, offsets, columns, ymv, 2_c_int, 3_c_int, 2_c_int)
  call expect(all(ymv(:, 1) == [7.0_c_double, 0.0_c_double]) .and. all(ymv(:, 2) == [2.0_c_double, 0.0_c_double]), &
    'SPARSE_UMV')
  sx(1:2, 1) = [1.0_c_double, 1.0_c_double]
  call BLAC_SPARSE_UMTV(spvalues, sx, offsets, columns, sy, 2_c_int, 3_c_int, 1_c_int)
  call expect(all(sy(:, 1) == [1.0_c_double, 0.0_c_double, 2.0_c_double]), 'SPARSE_UMTV')
  sx(1:2, 1) = [2.0_c_double, 3.0_c_double]
  call BLAC_SPARSE_SPARSE_UMTV(spvalues, sx, offsets, columns, sy, 2_c_int, 3_c_int, 1_c_int, rowlist)
  call expect(all(sy(:, 1) == [5.0_c_double, 0.0_c_double, 10.0_c_double]), 'SPARSE_SPARSE_UMTV row listed twice')

  if (failures /= 0) error stop 1
  write (*, '(a)') 'blac_fortran_client: all checks passed'

contains

  subroutine expect(ok, what)
    logical, intent(in) :: ok
    character(len=*), intent(in) :: what
    if (.not. ok) then
      write (*, '(2a)') 'FAILED: ', what
      failures = failures + 1
    end if
  end subroutine expect

end program blac_fortran_client
