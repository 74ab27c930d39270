      SUBROUTINE SIZEB
      REAL C(12)
      COMMON /COEF/ C
      C(1) = 0.0
      END
