C     A named block of two sizes: a warning.
      SUBROUTINE SIZEA
      REAL C(10)
      COMMON /COEF/ C
      C(1) = 0.0
      END
