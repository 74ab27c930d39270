      SUBROUTINE SETUP
      REAL C
      COMMON /COEF/ C(12)
      COMMON W(8)
      C(1) = 1.0
      W(1) = 2.0
      END
