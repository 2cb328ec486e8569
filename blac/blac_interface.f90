! Fortran interface to the BLAS/LAPACK bridge of ZylSrvLinearAlgebra.
!
! Every BLAC_ entry point of the library, declared with bind(C) so that a
! Fortran caller gets argument checking and the exact C name. Conventions:
!   - every argument by reference; integer(c_int) integers, real(c_double)
!     reals;
!   - character arguments are single characters, character(kind=c_char),
!     passed by reference WITHOUT a hidden length (the bridge supplies the
!     lengths to BLAS/LAPACK itself);
!   - BLAC_ILAENV takes NAME and OPTS as character arrays followed, after the
!     seven ordinary arguments, by their lengths as integer(c_size_t) values,
!     e.g. BLAC_ILAENV(1, 'DSYTRD', 'U', n, -1, -1, -1, 6_c_size_t, 1_c_size_t);
!   - BLAC_XERBLA takes a six-character routine name, e.g. an element of a
!     character(6) array (exactly six characters are read, no NUL needed);
!   - Fortran LOGICAL values (the result of BLAC_LSAME, TRYRAC of BLAC_DSTEMR)
!     are integer(c_int): nonzero means .true.;
!   - BLAC_IEEECK takes ZERO and ONE as real(c_float), because IEEECK's ZERO
!     and ONE are REAL, e.g. BLAC_IEEECK(0, 0.0_c_float, 1.0_c_float);
!   - the sparse kernels take the compressed-row arrays counted from 0: the
!     row offsets and the row list are unsigned 32-bit in C and integer(c_int)
!     here (values up to 2**31 - 1 read the same), column indices from 0 too;
!     x and y are the vectors one after another, column by column.
! Arrays are assumed-size, so any array (or an array element, by sequence
! association) of the right type can be passed.
module blac_interface
  use, intrinsic :: iso_c_binding, only: c_char, c_int, c_float, c_double, c_size_t
  implicit none
  private
  public :: BLAC_DASUM, BLAC_DAXPY, BLAC_DCOPY, BLAC_DDOT, BLAC_DNRM2, &
    BLAC_DROT, BLAC_DSCAL, BLAC_DSWAP, BLAC_IDAMAX, BLAC_DGEMV, &
    BLAC_DGER, BLAC_DSPMV, BLAC_DSPR, BLAC_DSPR2, BLAC_DSYMV, &
    BLAC_DSYR, BLAC_DSYR2, BLAC_DTPMV, BLAC_DTPSV, BLAC_DTRMV, &
    BLAC_DTRSV, BLAC_DGEMM, BLAC_DGEMM2, BLAC_DSYMM, BLAC_DSYR2K, &
    BLAC_DSYRK, BLAC_DTRMM, BLAC_DTRSM, BLAC_DGESV, BLAC_DGETRF, &
    BLAC_DGETRS, BLAC_DPOTRF, BLAC_DPPSV, BLAC_DPPTRF, BLAC_DPPTRI, &
    BLAC_DPPTRS, BLAC_DSYTRF, BLAC_DSYTRS, BLAC_DTPTRI, BLAC_DORMTR, &
    BLAC_DSPEVX, BLAC_DSTEMR, BLAC_DSTEVR, BLAC_DSYEV, BLAC_DSYEVX, &
    BLAC_DSYGST, BLAC_DSYGV, BLAC_DSYTRD, BLAC_DLAMCH, BLAC_IEEECK, &
    BLAC_ILAENV, BLAC_LSAME, BLAC_XERBLA, BLAC_HDMCON, BLAC_SPARSE_UMV, &
    BLAC_SPARSE_UMTV, BLAC_SPARSE_SPARSE_UMTV

  interface

  real(c_double) function BLAC_DASUM(n, dx, incx) bind(C, name="BLAC_DASUM")
    import :: c_double, c_int
    implicit none
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: dx(*)
    integer(c_int), intent(in) :: incx
  end function BLAC_DASUM

  subroutine BLAC_DAXPY(n, da, dx, incx, dy, incy) bind(C, name="BLAC_DAXPY")
    import :: c_double, c_int
    implicit none
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: da
    real(c_double), intent(in) :: dx(*)
    integer(c_int), intent(in) :: incx
    real(c_double), intent(inout) :: dy(*)
    integer(c_int), intent(in) :: incy
  end subroutine BLAC_DAXPY

  subroutine BLAC_DCOPY(n, dx, incx, dy, incy) bind(C, name="BLAC_DCOPY")
    import :: c_double, c_int
    implicit none
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: dx(*)
    integer(c_int), intent(in) :: incx
    real(c_double), intent(inout) :: dy(*)
    integer(c_int), intent(in) :: incy
  end subroutine BLAC_DCOPY

  real(c_double) function BLAC_DDOT(n, dx, incx, dy, incy) bind(C, name="BLAC_DDOT")
    import :: c_double, c_int
    implicit none
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: dx(*)
    integer(c_int), intent(in) :: incx
    real(c_double), intent(in) :: dy(*)
    integer(c_int), intent(in) :: incy
  end function BLAC_DDOT

  real(c_double) function BLAC_DNRM2(n, x, incx) bind(C, name="BLAC_DNRM2")
    import :: c_double, c_int
    implicit none
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: x(*)
    integer(c_int), intent(in) :: incx
  end function BLAC_DNRM2

  subroutine BLAC_DROT(n, dx, incx, dy, incy, c, s) bind(C, name="BLAC_DROT")
    import :: c_double, c_int
    implicit none
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: dx(*)
    integer(c_int), intent(in) :: incx
    real(c_double), intent(inout) :: dy(*)
    integer(c_int), intent(in) :: incy
    real(c_double), intent(in) :: c
    real(c_double), intent(in) :: s
  end subroutine BLAC_DROT

  subroutine BLAC_DSCAL(n, da, dx, incx) bind(C, name="BLAC_DSCAL")
    import :: c_double, c_int
    implicit none
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: da
    real(c_double), intent(inout) :: dx(*)
    integer(c_int), intent(in) :: incx
  end subroutine BLAC_DSCAL

  subroutine BLAC_DSWAP(n, dx, incx, dy, incy) bind(C, name="BLAC_DSWAP")
    import :: c_double, c_int
    implicit none
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: dx(*)
    integer(c_int), intent(in) :: incx
    real(c_double), intent(inout) :: dy(*)
    integer(c_int), intent(in) :: incy
  end subroutine BLAC_DSWAP

  integer(c_int) function BLAC_IDAMAX(n, dx, incx) bind(C, name="BLAC_IDAMAX")
    import :: c_double, c_int
    implicit none
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: dx(*)
    integer(c_int), intent(in) :: incx
  end function BLAC_IDAMAX

  subroutine BLAC_DGEMV(trans, m, n, alpha, a, lda, x, incx, beta, y, incy) bind(C, &
      name="BLAC_DGEMV")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: trans
    integer(c_int), intent(in) :: m
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(in) :: x(*)
    integer(c_int), intent(in) :: incx
    real(c_double), intent(in) :: beta
    real(c_double), intent(inout) :: y(*)
    integer(c_int), intent(in) :: incy
  end subroutine BLAC_DGEMV

  subroutine BLAC_DGER(m, n, alpha, x, incx, y, incy, a, lda) bind(C, name="BLAC_DGER")
    import :: c_double, c_int
    implicit none
    integer(c_int), intent(in) :: m
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: x(*)
    integer(c_int), intent(in) :: incx
    real(c_double), intent(in) :: y(*)
    integer(c_int), intent(in) :: incy
    real(c_double), intent(inout) :: a(*)
    integer(c_int), intent(in) :: lda
  end subroutine BLAC_DGER

  subroutine BLAC_DSPMV(uplo, n, alpha, ap, x, incx, beta, y, incy) bind(C, &
      name="BLAC_DSPMV")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: ap(*)
    real(c_double), intent(in) :: x(*)
    integer(c_int), intent(in) :: incx
    real(c_double), intent(in) :: beta
    real(c_double), intent(inout) :: y(*)
    integer(c_int), intent(in) :: incy
  end subroutine BLAC_DSPMV

  subroutine BLAC_DSPR(uplo, n, alpha, x, incx, ap) bind(C, name="BLAC_DSPR")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: x(*)
    integer(c_int), intent(in) :: incx
    real(c_double), intent(inout) :: ap(*)
  end subroutine BLAC_DSPR

  subroutine BLAC_DSPR2(uplo, n, alpha, x, incx, y, incy, ap) bind(C, name="BLAC_DSPR2")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: x(*)
    integer(c_int), intent(in) :: incx
    real(c_double), intent(in) :: y(*)
    integer(c_int), intent(in) :: incy
    real(c_double), intent(inout) :: ap(*)
  end subroutine BLAC_DSPR2

  subroutine BLAC_DSYMV(uplo, n, alpha, a, lda, x, incx, beta, y, incy) bind(C, &
      name="BLAC_DSYMV")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(in) :: x(*)
    integer(c_int), intent(in) :: incx
    real(c_double), intent(in) :: beta
    real(c_double), intent(inout) :: y(*)
    integer(c_int), intent(in) :: incy
  end subroutine BLAC_DSYMV

  subroutine BLAC_DSYR(uplo, n, alpha, x, incx, a, lda) bind(C, name="BLAC_DSYR")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: x(*)
    integer(c_int), intent(in) :: incx
    real(c_double), intent(inout) :: a(*)
    integer(c_int), intent(in) :: lda
  end subroutine BLAC_DSYR

  subroutine BLAC_DSYR2(uplo, n, alpha, x, incx, y, incy, a, lda) bind(C, &
      name="BLAC_DSYR2")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: x(*)
    integer(c_int), intent(in) :: incx
    real(c_double), intent(in) :: y(*)
    integer(c_int), intent(in) :: incy
    real(c_double), intent(inout) :: a(*)
    integer(c_int), intent(in) :: lda
  end subroutine BLAC_DSYR2

  subroutine BLAC_DTPMV(uplo, trans, diag, n, ap, x, incx) bind(C, name="BLAC_DTPMV")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    character(kind=c_char), intent(in) :: trans
    character(kind=c_char), intent(in) :: diag
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: ap(*)
    real(c_double), intent(inout) :: x(*)
    integer(c_int), intent(in) :: incx
  end subroutine BLAC_DTPMV

  subroutine BLAC_DTPSV(uplo, trans, diag, n, ap, x, incx) bind(C, name="BLAC_DTPSV")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    character(kind=c_char), intent(in) :: trans
    character(kind=c_char), intent(in) :: diag
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: ap(*)
    real(c_double), intent(inout) :: x(*)
    integer(c_int), intent(in) :: incx
  end subroutine BLAC_DTPSV

  subroutine BLAC_DTRMV(uplo, trans, diag, n, a, lda, x, incx) bind(C, name="BLAC_DTRMV")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    character(kind=c_char), intent(in) :: trans
    character(kind=c_char), intent(in) :: diag
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(inout) :: x(*)
    integer(c_int), intent(in) :: incx
  end subroutine BLAC_DTRMV

  subroutine BLAC_DTRSV(uplo, trans, diag, n, a, lda, x, incx) bind(C, name="BLAC_DTRSV")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    character(kind=c_char), intent(in) :: trans
    character(kind=c_char), intent(in) :: diag
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(inout) :: x(*)
    integer(c_int), intent(in) :: incx
  end subroutine BLAC_DTRSV

  subroutine BLAC_DGEMM(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, &
      ldc) bind(C, name="BLAC_DGEMM")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: transa
    character(kind=c_char), intent(in) :: transb
    integer(c_int), intent(in) :: m
    integer(c_int), intent(in) :: n
    integer(c_int), intent(in) :: k
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(in) :: b(*)
    integer(c_int), intent(in) :: ldb
    real(c_double), intent(in) :: beta
    real(c_double), intent(inout) :: c(*)
    integer(c_int), intent(in) :: ldc
  end subroutine BLAC_DGEMM

  subroutine BLAC_DGEMM2(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, &
      ldc) bind(C, name="BLAC_DGEMM2")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: transa
    character(kind=c_char), intent(in) :: transb
    integer(c_int), intent(in) :: m
    integer(c_int), intent(in) :: n
    integer(c_int), intent(in) :: k
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(in) :: b(*)
    integer(c_int), intent(in) :: ldb
    real(c_double), intent(in) :: beta
    real(c_double), intent(inout) :: c(*)
    integer(c_int), intent(in) :: ldc
  end subroutine BLAC_DGEMM2

  subroutine BLAC_DSYMM(side, uplo, m, n, alpha, a, lda, b, ldb, beta, c, ldc) bind(C, &
      name="BLAC_DSYMM")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: side
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: m
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(in) :: b(*)
    integer(c_int), intent(in) :: ldb
    real(c_double), intent(in) :: beta
    real(c_double), intent(inout) :: c(*)
    integer(c_int), intent(in) :: ldc
  end subroutine BLAC_DSYMM

  subroutine BLAC_DSYR2K(uplo, trans, n, k, alpha, a, lda, b, ldb, beta, c, ldc) bind(C, &
      name="BLAC_DSYR2K")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    character(kind=c_char), intent(in) :: trans
    integer(c_int), intent(in) :: n
    integer(c_int), intent(in) :: k
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(in) :: b(*)
    integer(c_int), intent(in) :: ldb
    real(c_double), intent(in) :: beta
    real(c_double), intent(inout) :: c(*)
    integer(c_int), intent(in) :: ldc
  end subroutine BLAC_DSYR2K

  subroutine BLAC_DSYRK(uplo, trans, n, k, alpha, a, lda, beta, c, ldc) bind(C, &
      name="BLAC_DSYRK")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    character(kind=c_char), intent(in) :: trans
    integer(c_int), intent(in) :: n
    integer(c_int), intent(in) :: k
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(in) :: beta
    real(c_double), intent(inout) :: c(*)
    integer(c_int), intent(in) :: ldc
  end subroutine BLAC_DSYRK

  subroutine BLAC_DTRMM(side, uplo, transa, diag, m, n, alpha, a, lda, b, ldb) bind(C, &
      name="BLAC_DTRMM")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: side
    character(kind=c_char), intent(in) :: uplo
    character(kind=c_char), intent(in) :: transa
    character(kind=c_char), intent(in) :: diag
    integer(c_int), intent(in) :: m
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(inout) :: b(*)
    integer(c_int), intent(in) :: ldb
  end subroutine BLAC_DTRMM

  subroutine BLAC_DTRSM(side, uplo, transa, diag, m, n, alpha, a, lda, b, ldb) bind(C, &
      name="BLAC_DTRSM")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: side
    character(kind=c_char), intent(in) :: uplo
    character(kind=c_char), intent(in) :: transa
    character(kind=c_char), intent(in) :: diag
    integer(c_int), intent(in) :: m
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: alpha
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(inout) :: b(*)
    integer(c_int), intent(in) :: ldb
  end subroutine BLAC_DTRSM

  subroutine BLAC_DGESV(n, nrhs, a, lda, ipiv, b, ldb, info) bind(C, name="BLAC_DGESV")
    import :: c_double, c_int
    implicit none
    integer(c_int), intent(in) :: n
    integer(c_int), intent(in) :: nrhs
    real(c_double), intent(inout) :: a(*)
    integer(c_int), intent(in) :: lda
    integer(c_int), intent(inout) :: ipiv(*)
    real(c_double), intent(inout) :: b(*)
    integer(c_int), intent(in) :: ldb
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DGESV

  subroutine BLAC_DGETRF(m, n, a, lda, ipiv, info) bind(C, name="BLAC_DGETRF")
    import :: c_double, c_int
    implicit none
    integer(c_int), intent(in) :: m
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: a(*)
    integer(c_int), intent(in) :: lda
    integer(c_int), intent(inout) :: ipiv(*)
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DGETRF

  subroutine BLAC_DGETRS(trans, n, nrhs, a, lda, ipiv, b, ldb, info) bind(C, &
      name="BLAC_DGETRS")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: trans
    integer(c_int), intent(in) :: n
    integer(c_int), intent(in) :: nrhs
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    integer(c_int), intent(in) :: ipiv(*)
    real(c_double), intent(inout) :: b(*)
    integer(c_int), intent(in) :: ldb
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DGETRS

  subroutine BLAC_DPOTRF(uplo, n, a, lda, info) bind(C, name="BLAC_DPOTRF")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: a(*)
    integer(c_int), intent(in) :: lda
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DPOTRF

  subroutine BLAC_DPPSV(uplo, n, nrhs, ap, b, ldb, info) bind(C, name="BLAC_DPPSV")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    integer(c_int), intent(in) :: nrhs
    real(c_double), intent(inout) :: ap(*)
    real(c_double), intent(inout) :: b(*)
    integer(c_int), intent(in) :: ldb
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DPPSV

  subroutine BLAC_DPPTRF(uplo, n, ap, info) bind(C, name="BLAC_DPPTRF")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: ap(*)
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DPPTRF

  subroutine BLAC_DPPTRI(uplo, n, ap, info) bind(C, name="BLAC_DPPTRI")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: ap(*)
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DPPTRI

  subroutine BLAC_DPPTRS(uplo, n, nrhs, ap, b, ldb, info) bind(C, name="BLAC_DPPTRS")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    integer(c_int), intent(in) :: nrhs
    real(c_double), intent(in) :: ap(*)
    real(c_double), intent(inout) :: b(*)
    integer(c_int), intent(in) :: ldb
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DPPTRS

  subroutine BLAC_DSYTRF(uplo, n, a, lda, ipiv, work, lwork, info) bind(C, &
      name="BLAC_DSYTRF")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: a(*)
    integer(c_int), intent(in) :: lda
    integer(c_int), intent(inout) :: ipiv(*)
    real(c_double), intent(inout) :: work(*)
    integer(c_int), intent(in) :: lwork
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DSYTRF

  subroutine BLAC_DSYTRS(uplo, n, nrhs, a, lda, ipiv, b, ldb, info) bind(C, &
      name="BLAC_DSYTRS")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    integer(c_int), intent(in) :: nrhs
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    integer(c_int), intent(in) :: ipiv(*)
    real(c_double), intent(inout) :: b(*)
    integer(c_int), intent(in) :: ldb
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DSYTRS

  subroutine BLAC_DTPTRI(uplo, diag, n, ap, info) bind(C, name="BLAC_DTPTRI")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    character(kind=c_char), intent(in) :: diag
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: ap(*)
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DTPTRI

  subroutine BLAC_DORMTR(side, uplo, trans, m, n, a, lda, tau, c, ldc, work, lwork, &
      info) bind(C, name="BLAC_DORMTR")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: side
    character(kind=c_char), intent(in) :: uplo
    character(kind=c_char), intent(in) :: trans
    integer(c_int), intent(in) :: m
    integer(c_int), intent(in) :: n
    real(c_double), intent(in) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(in) :: tau(*)
    real(c_double), intent(inout) :: c(*)
    integer(c_int), intent(in) :: ldc
    real(c_double), intent(inout) :: work(*)
    integer(c_int), intent(in) :: lwork
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DORMTR

  subroutine BLAC_DSPEVX(jobz, range, uplo, n, ap, vl, vu, il, iu, abstol, m, w, z, ldz, &
      work, iwork, ifail, info) bind(C, name="BLAC_DSPEVX")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: jobz
    character(kind=c_char), intent(in) :: range
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: ap(*)
    real(c_double), intent(in) :: vl
    real(c_double), intent(in) :: vu
    integer(c_int), intent(in) :: il
    integer(c_int), intent(in) :: iu
    real(c_double), intent(in) :: abstol
    integer(c_int), intent(out) :: m
    real(c_double), intent(inout) :: w(*)
    real(c_double), intent(inout) :: z(*)
    integer(c_int), intent(in) :: ldz
    real(c_double), intent(inout) :: work(*)
    integer(c_int), intent(inout) :: iwork(*)
    integer(c_int), intent(inout) :: ifail(*)
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DSPEVX

  subroutine BLAC_DSTEMR(jobz, range, n, d, e, vl, vu, il, iu, m, w, z, ldz, nzc, isuppz, &
      tryrac, work, lwork, iwork, liwork, info) bind(C, name="BLAC_DSTEMR")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: jobz
    character(kind=c_char), intent(in) :: range
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: d(*)
    real(c_double), intent(inout) :: e(*)
    real(c_double), intent(in) :: vl
    real(c_double), intent(in) :: vu
    integer(c_int), intent(in) :: il
    integer(c_int), intent(in) :: iu
    integer(c_int), intent(out) :: m
    real(c_double), intent(inout) :: w(*)
    real(c_double), intent(inout) :: z(*)
    integer(c_int), intent(in) :: ldz
    integer(c_int), intent(in) :: nzc
    integer(c_int), intent(inout) :: isuppz(*)
    integer(c_int), intent(inout) :: tryrac
    real(c_double), intent(inout) :: work(*)
    integer(c_int), intent(in) :: lwork
    integer(c_int), intent(inout) :: iwork(*)
    integer(c_int), intent(in) :: liwork
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DSTEMR

  subroutine BLAC_DSTEVR(jobz, range, n, d, e, vl, vu, il, iu, abstol, m, w, z, ldz, &
      isuppz, work, lwork, iwork, liwork, info) bind(C, name="BLAC_DSTEVR")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: jobz
    character(kind=c_char), intent(in) :: range
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: d(*)
    real(c_double), intent(inout) :: e(*)
    real(c_double), intent(in) :: vl
    real(c_double), intent(in) :: vu
    integer(c_int), intent(in) :: il
    integer(c_int), intent(in) :: iu
    real(c_double), intent(in) :: abstol
    integer(c_int), intent(out) :: m
    real(c_double), intent(inout) :: w(*)
    real(c_double), intent(inout) :: z(*)
    integer(c_int), intent(in) :: ldz
    integer(c_int), intent(inout) :: isuppz(*)
    real(c_double), intent(inout) :: work(*)
    integer(c_int), intent(in) :: lwork
    integer(c_int), intent(inout) :: iwork(*)
    integer(c_int), intent(in) :: liwork
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DSTEVR

  subroutine BLAC_DSYEV(jobz, uplo, n, a, lda, w, work, lwork, info) bind(C, &
      name="BLAC_DSYEV")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: jobz
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(inout) :: w(*)
    real(c_double), intent(inout) :: work(*)
    integer(c_int), intent(in) :: lwork
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DSYEV

  subroutine BLAC_DSYEVX(jobz, range, uplo, n, a, lda, vl, vu, il, iu, abstol, m, w, z, &
      ldz, work, lwork, iwork, ifail, info) bind(C, name="BLAC_DSYEVX")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: jobz
    character(kind=c_char), intent(in) :: range
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(in) :: vl
    real(c_double), intent(in) :: vu
    integer(c_int), intent(in) :: il
    integer(c_int), intent(in) :: iu
    real(c_double), intent(in) :: abstol
    integer(c_int), intent(out) :: m
    real(c_double), intent(inout) :: w(*)
    real(c_double), intent(inout) :: z(*)
    integer(c_int), intent(in) :: ldz
    real(c_double), intent(inout) :: work(*)
    integer(c_int), intent(in) :: lwork
    integer(c_int), intent(inout) :: iwork(*)
    integer(c_int), intent(inout) :: ifail(*)
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DSYEVX

  subroutine BLAC_DSYGST(itype, uplo, n, a, lda, b, ldb, info) bind(C, name="BLAC_DSYGST")
    import :: c_char, c_double, c_int
    implicit none
    integer(c_int), intent(in) :: itype
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(in) :: b(*)
    integer(c_int), intent(in) :: ldb
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DSYGST

  subroutine BLAC_DSYGV(itype, jobz, uplo, n, a, lda, b, ldb, w, work, lwork, &
      info) bind(C, name="BLAC_DSYGV")
    import :: c_char, c_double, c_int
    implicit none
    integer(c_int), intent(in) :: itype
    character(kind=c_char), intent(in) :: jobz
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(inout) :: b(*)
    integer(c_int), intent(in) :: ldb
    real(c_double), intent(inout) :: w(*)
    real(c_double), intent(inout) :: work(*)
    integer(c_int), intent(in) :: lwork
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DSYGV

  subroutine BLAC_DSYTRD(uplo, n, a, lda, d, e, tau, work, lwork, info) bind(C, &
      name="BLAC_DSYTRD")
    import :: c_char, c_double, c_int
    implicit none
    character(kind=c_char), intent(in) :: uplo
    integer(c_int), intent(in) :: n
    real(c_double), intent(inout) :: a(*)
    integer(c_int), intent(in) :: lda
    real(c_double), intent(inout) :: d(*)
    real(c_double), intent(inout) :: e(*)
    real(c_double), intent(inout) :: tau(*)
    real(c_double), intent(inout) :: work(*)
    integer(c_int), intent(in) :: lwork
    integer(c_int), intent(out) :: info
  end subroutine BLAC_DSYTRD

  real(c_double) function BLAC_DLAMCH(cmach) bind(C, name="BLAC_DLAMCH")
    import :: c_char, c_double
    implicit none
    character(kind=c_char), intent(in) :: cmach
  end function BLAC_DLAMCH

  integer(c_int) function BLAC_IEEECK(ispec, zero, one) bind(C, name="BLAC_IEEECK")
    import :: c_float, c_int
    implicit none
    integer(c_int), intent(in) :: ispec
    real(c_float), intent(in) :: zero
    real(c_float), intent(in) :: one
  end function BLAC_IEEECK

  integer(c_int) function BLAC_ILAENV(ispec, name, opts, n1, n2, n3, n4, name_len, &
      opts_len) bind(C, name="BLAC_ILAENV")
    import :: c_char, c_int, c_size_t
    implicit none
    integer(c_int), intent(in) :: ispec
    character(kind=c_char), intent(in) :: name(*)
    character(kind=c_char), intent(in) :: opts(*)
    integer(c_int), intent(in) :: n1
    integer(c_int), intent(in) :: n2
    integer(c_int), intent(in) :: n3
    integer(c_int), intent(in) :: n4
    integer(c_size_t), value :: name_len
    integer(c_size_t), value :: opts_len
  end function BLAC_ILAENV

  integer(c_int) function BLAC_LSAME(ca, cb) bind(C, name="BLAC_LSAME")
    import :: c_char, c_int
    implicit none
    character(kind=c_char), intent(in) :: ca
    character(kind=c_char), intent(in) :: cb
  end function BLAC_LSAME

  subroutine BLAC_XERBLA(srname, info) bind(C, name="BLAC_XERBLA")
    import :: c_char, c_int
    implicit none
    character(kind=c_char), intent(in) :: srname(*)
    integer(c_int), intent(in) :: info
  end subroutine BLAC_XERBLA

  real(c_double) function BLAC_HDMCON(i) bind(C, name="BLAC_HDMCON")
    import :: c_double, c_int
    implicit none
    integer(c_int), intent(in) :: i
  end function BLAC_HDMCON

  subroutine BLAC_SPARSE_UMV(values, x, rowoffsets, columnindices, y, numrows, &
      numcolumns, numvectors) bind(C, name="BLAC_SPARSE_UMV")
    import :: c_double, c_int
    implicit none
    real(c_double), intent(in) :: values(*)
    real(c_double), intent(in) :: x(*)
    integer(c_int), intent(in) :: rowoffsets(*)
    integer(c_int), intent(in) :: columnindices(*)
    real(c_double), intent(inout) :: y(*)
    integer(c_int), intent(in) :: numrows
    integer(c_int), intent(in) :: numcolumns
    integer(c_int), intent(in) :: numvectors
  end subroutine BLAC_SPARSE_UMV

  subroutine BLAC_SPARSE_UMTV(values, x, rowoffsets, columnindices, y, numrows, &
      numcolumns, numvectors) bind(C, name="BLAC_SPARSE_UMTV")
    import :: c_double, c_int
    implicit none
    real(c_double), intent(in) :: values(*)
    real(c_double), intent(in) :: x(*)
    integer(c_int), intent(in) :: rowoffsets(*)
    integer(c_int), intent(in) :: columnindices(*)
    real(c_double), intent(inout) :: y(*)
    integer(c_int), intent(in) :: numrows
    integer(c_int), intent(in) :: numcolumns
    integer(c_int), intent(in) :: numvectors
  end subroutine BLAC_SPARSE_UMTV

  subroutine BLAC_SPARSE_SPARSE_UMTV(values, x, rowoffsets, columnindices, y, numlisted, &
      numcolumns, numvectors, rowlist) bind(C, name="BLAC_SPARSE_SPARSE_UMTV")
    import :: c_double, c_int
    implicit none
    real(c_double), intent(in) :: values(*)
    real(c_double), intent(in) :: x(*)
    integer(c_int), intent(in) :: rowoffsets(*)
    integer(c_int), intent(in) :: columnindices(*)
    real(c_double), intent(inout) :: y(*)
    integer(c_int), intent(in) :: numlisted
    integer(c_int), intent(in) :: numcolumns
    integer(c_int), intent(in) :: numvectors
    integer(c_int), intent(in) :: rowlist(*)
  end subroutine BLAC_SPARSE_SPARSE_UMTV

  end interface
end module blac_interface
