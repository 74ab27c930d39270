C     /COEF/ is 40 bytes here, 48 in sizes_b.f; blank COMMON 20 and 32.
      SUBROUTINE SOLVE(N)
      INTEGER N
      REAL C
      COMMON /COEF/ C(10)
      COMMON W(5)
      C(N) = W(N)
      END
