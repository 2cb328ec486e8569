! A Fortran caller of the bridge: every call goes through the blac_interface
! module (bind(C), single characters without hidden lengths) and every result
! is checked against values computed here. Any mismatch ends the program with
! a nonzero exit status.
program blac_fortran_client
  use, intrinsic :: iso_c_binding, only: c_int, c_float, c_double, c_char, c_size_t, &
    c_int64_t
  use, intrinsic :: ieee_arithmetic, only: ieee_is_nan
  use blac_interface
  implicit none

  real(c_double), parameter :: pi = 3.141592653589793_c_double
  integer :: failures = 0
  character(len=16) :: mode

  ! "xerbla": only report bad arguments through BLAC_XERBLA; the test that
  ! runs this mode matches the printed reports.
  if (command_argument_count() >= 1) then
    call get_command_argument(1, mode)
    if (mode == 'xerbla') then
      call report_through_xerbla()
      stop
    end if
  end if

  call check_dgemm()
  call check_dgesv()
  call check_dppsv()
  call check_eigenvalues()
  call check_hdmcon()
  call check_auxiliaries()

  if (failures /= 0) then
    write (*, '(a, i0, a)') 'blac_fortran_client: ', failures, ' check(s) failed'
    error stop 1
  end if
  write (*, '(a)') 'blac_fortran_client: all checks passed'

contains

  ! Bit-for-bit equality of two doubles (exact comparisons are intended here).
  elemental logical function identical(x, y)
    real(c_double), intent(in) :: x, y
    identical = transfer(x, 0_c_int64_t) == transfer(y, 0_c_int64_t)
  end function identical

  ! Names in a CHARACTER(6) array follow one another without a NUL: each
  ! report must show exactly one six-character name.
  subroutine report_through_xerbla()
    character(len=6, kind=c_char) :: names(3)
    integer(c_int) :: info
    names = [character(len=6, kind=c_char) :: 'DGEMM', 'DSYEVX', 'DTRSM']
    info = 3
    call BLAC_XERBLA(names(1), info)
    info = 4
    call BLAC_XERBLA(names(2), info)
    info = 13
    call BLAC_XERBLA(names(3), info)
  end subroutine report_through_xerbla

  subroutine expect(ok, what)
    logical, intent(in) :: ok
    character(len=*), intent(in) :: what
    if (.not. ok) then
      write (*, '(2a)') 'FAILED: ', what
      failures = failures + 1
    end if
  end subroutine expect

  ! C := alpha op(A) op(B) + beta C against matmul, all transpose pairs, with
  ! leading dimensions larger than the row counts; DGEMM2 gives the same.
  subroutine check_dgemm()
    integer(c_int), parameter :: m = 5, n = 3, k = 4
    real(c_double) :: a(7, 7), b(6, 6), c(8, n), c2(8, n), want(m, n)
    real(c_double) :: opa(m, k), opb(k, n)
    real(c_double) :: alpha, beta
    integer(c_int) :: lda, ldb, ldc, ia, ib
    character(kind=c_char) :: ta, tb
    character(len=2), parameter :: codes = 'NT'
    integer :: i, j

    alpha = 1.5_c_double
    beta = -0.5_c_double
    lda = size(a, 1)
    ldb = size(b, 1)
    ldc = size(c, 1)
    do j = 1, 7
      do i = 1, 7
        a(i, j) = sin(real(i + 3 * j, c_double))
      end do
    end do
    do j = 1, 6
      do i = 1, 6
        b(i, j) = cos(real(2 * i - j, c_double))
      end do
    end do
    do ia = 1, 2
      do ib = 1, 2
        ta = codes(ia:ia)
        tb = codes(ib:ib)
        if (ta == 'N') then
          opa = a(1:m, 1:k)
        else
          opa = transpose(a(1:k, 1:m))
        end if
        if (tb == 'N') then
          opb = b(1:k, 1:n)
        else
          opb = transpose(b(1:n, 1:k))
        end if
        do j = 1, n
          do i = 1, 8
            c(i, j) = real(i - j, c_double)
          end do
        end do
        want = alpha * matmul(opa, opb) + beta * c(1:m, :)
        c2 = c
        call BLAC_DGEMM(ta, tb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc)
        call expect(maxval(abs(c(1:m, :) - want)) < 1e-13_c_double, 'DGEMM ' // ta // tb)
        call expect(all(identical(c(m + 1:, :), c2(m + 1:, :))), 'DGEMM padding ' // ta // tb)
        call BLAC_DGEMM2(ta, tb, m, n, k, alpha, a, lda, b, ldb, beta, c2, ldc)
        call expect(maxval(abs(c2(1:m, :) - c(1:m, :))) < 1e-13_c_double, 'DGEMM2 ' // ta // tb)
      end do
    end do
  end subroutine check_dgemm

  subroutine check_dgesv()
    integer(c_int), parameter :: n = 4, nrhs = 2
    real(c_double) :: a(n, n), a0(n, n), b(n, nrhs), b0(n, nrhs)
    integer(c_int) :: ipiv(n), info, lda, minus_one
    integer :: i, j

    do j = 1, n
      do i = 1, n
        a0(i, j) = 1.0_c_double / real(i + j, c_double)
      end do
      a0(j, j) = a0(j, j) + 2.0_c_double
    end do
    do j = 1, nrhs
      do i = 1, n
        b0(i, j) = real(i * j, c_double)
      end do
    end do
    a = a0
    b = b0
    call BLAC_DGESV(n, nrhs, a, n, ipiv, b, n, info)
    call expect(info == 0, 'DGESV INFO')
    call expect(maxval(abs(matmul(a0, b) - b0)) < 1e-12_c_double, 'DGESV residual')

    ! Bad arguments come back as a negative INFO (and a printed report).
    minus_one = -1
    call BLAC_DGESV(minus_one, nrhs, a, n, ipiv, b, n, info)
    call expect(info == -1, 'DGESV N < 0')
    lda = 0
    call BLAC_DGESV(n, nrhs, a, lda, ipiv, b, n, info)
    call expect(info == -4, 'DGESV LDA < N')

    ! A singular matrix: the zero pivot comes back, B is not touched.
    a = 0.0_c_double
    a(1, 1) = 1.0_c_double
    b = b0
    call BLAC_DGESV(n, nrhs, a, n, ipiv, b, n, info)
    call expect(info == 2, 'DGESV singular')
    call expect(all(identical(b, b0)), 'DGESV singular leaves B')
  end subroutine check_dgesv

  subroutine check_dppsv()
    integer(c_int), parameter :: n = 3, nrhs = 1
    ! [[4, 1, 0], [1, 3, 1], [0, 1, 2]] packed by columns, upper and lower.
    real(c_double), parameter :: full(n, n) = reshape([4.0_c_double, 1.0_c_double, &
      0.0_c_double, 1.0_c_double, 3.0_c_double, 1.0_c_double, 0.0_c_double, &
      1.0_c_double, 2.0_c_double], [n, n])
    real(c_double) :: ap(6), b(n, nrhs), b0(n, nrhs)
    integer(c_int) :: info

    b0(:, 1) = [1.0_c_double, 2.0_c_double, 3.0_c_double]
    ap = [4.0_c_double, 1.0_c_double, 3.0_c_double, 0.0_c_double, 1.0_c_double, 2.0_c_double]
    b = b0
    call BLAC_DPPSV('U', n, nrhs, ap, b, n, info)
    call expect(info == 0, 'DPPSV U INFO')
    call expect(maxval(abs(matmul(full, b) - b0)) < 1e-13_c_double, 'DPPSV U residual')

    ap = [4.0_c_double, 1.0_c_double, 0.0_c_double, 3.0_c_double, 1.0_c_double, 2.0_c_double]
    b = b0
    call BLAC_DPPSV('l', n, nrhs, ap, b, n, info)
    call expect(info == 0, 'DPPSV l INFO')
    call expect(maxval(abs(matmul(full, b) - b0)) < 1e-13_c_double, 'DPPSV l residual')

    call BLAC_DPPSV('x', n, nrhs, ap, b, n, info)
    call expect(info == -1, 'DPPSV UPLO x')
  end subroutine check_dppsv

  ! The 1-D Laplacian: eigenvalues 2 - 2 cos(k pi / (n + 1)).
  subroutine check_eigenvalues()
    integer(c_int), parameter :: n = 10
    real(c_double) :: a(n, n), w(n), want(n), work(64 * n)
    real(c_double) :: d(n), e(n), z(n, n)
    integer(c_int) :: isuppz(2 * n), iwork(10 * n), info, m, lwork, liwork, il, iu
    real(c_double) :: vl, vu, abstol
    integer :: i

    do i = 1, n
      want(i) = 2.0_c_double - 2.0_c_double * cos(real(i, c_double) * pi / real(n + 1, c_double))
    end do

    a = 0.0_c_double
    do i = 1, n
      a(i, i) = 2.0_c_double
    end do
    do i = 1, n - 1
      a(i, i + 1) = -1.0_c_double
      a(i + 1, i) = -1.0_c_double
    end do
    lwork = size(work)
    call BLAC_DSYEV('N', 'U', n, a, n, w, work, lwork, info)
    call expect(info == 0, 'DSYEV INFO')
    call expect(maxval(abs(w - want)) < 1e-13_c_double, 'DSYEV eigenvalues')

    d = 2.0_c_double
    e = -1.0_c_double
    vl = 0.0_c_double
    vu = 0.0_c_double
    il = 1
    iu = n
    abstol = 0.0_c_double
    liwork = size(iwork)
    call BLAC_DSTEVR('V', 'A', n, d, e, vl, vu, il, iu, abstol, m, w, z, n, isuppz, &
                     work, lwork, iwork, liwork, info)
    call expect(info == 0, 'DSTEVR INFO')
    call expect(m == n, 'DSTEVR count')
    call expect(maxval(abs(w - want)) < 1e-13_c_double, 'DSTEVR eigenvalues')
    ! First eigenvector: proportional to sin(i pi / (n + 1)), unit length.
    call expect(abs(abs(dot_product(z(:, 1), &
      [(sin(real(i, c_double) * pi / real(n + 1, c_double)), i = 1, n)])) &
      - sqrt(real(n + 1, c_double) / 2.0_c_double)) < 1e-12_c_double, 'DSTEVR eigenvector')
  end subroutine check_eigenvalues

  subroutine check_hdmcon()
    integer(c_int) :: i
    real(c_double) :: x
    integer(c_int64_t) :: bits
    real(c_double), parameter :: table(2:16) = [ &
      4.49423283715579e+307_c_double, 1.7976931348623157e+308_c_double, &
      2.2250738585072014e-308_c_double, 2.220446049250313e-16_c_double, &
      1.1102230246251568e-16_c_double, 2.0_c_double, 53.0_c_double, 709.0_c_double, &
      -708.0_c_double, 2147483647.0_c_double, 3.141592653589793_c_double, &
      2.718281828459045_c_double, 0.5772156649015329_c_double, &
      0.017453292519943295_c_double, 57.29577951308232_c_double]

    do i = 2, 16
      call expect(identical(BLAC_HDMCON(i), table(i)), 'HDMCON entry')
    end do
    call expect(identical(BLAC_HDMCON(3_c_int), huge(1.0_c_double)), 'HDMCON 3 is huge')
    call expect(identical(BLAC_HDMCON(4_c_int), tiny(1.0_c_double)), 'HDMCON 4 is tiny')
    call expect(identical(BLAC_HDMCON(5_c_int), epsilon(1.0_c_double)), 'HDMCON 5 is epsilon')
    do i = -5, 17, 11 ! -5, 6 and 17: 6 is in range, the others give entry 1
      x = BLAC_HDMCON(i)
      bits = transfer(x, bits)
      if (i == 6) then
        call expect(identical(x, table(6)), 'HDMCON 6')
      else
        call expect(bits == huge(bits), 'HDMCON out of range is entry 1')
        call expect(ieee_is_nan(x), 'HDMCON entry 1 is NaN')
      end if
    end do
    x = BLAC_HDMCON(0_c_int)
    call expect(transfer(x, bits) == huge(bits), 'HDMCON 0 is entry 1')
  end subroutine check_hdmcon

  subroutine check_auxiliaries()
    integer(c_int) :: nb, ispec, n, unused
    call expect(BLAC_LSAME('a', 'A') /= 0, 'LSAME a A')
    call expect(BLAC_LSAME('T', 't') /= 0, 'LSAME T t')
    call expect(BLAC_LSAME('N', 'T') == 0, 'LSAME N T')
    ispec = 1
    n = 500
    unused = -1
    nb = BLAC_ILAENV(ispec, 'DSYTRD', 'U', n, unused, unused, unused, 6_c_size_t, 1_c_size_t)
    call expect(nb > 1, 'ILAENV block size for DSYTRD')
    call expect(identical(BLAC_DLAMCH('P'), epsilon(1.0_c_double)), 'DLAMCH P')
    ! IEEECK's ZERO and ONE are single precision.
    do ispec = 0, 1
      call expect(BLAC_IEEECK(ispec, 0.0_c_float, 1.0_c_float) == 1, 'IEEECK')
      call expect(BLAC_IEEECK(ispec, 1.0_c_float, 1.0_c_float) == 0, 'IEEECK ZERO not zero')
    end do
  end subroutine check_auxiliaries

end program blac_fortran_client
