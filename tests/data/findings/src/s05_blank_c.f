      SUBROUTINE BLANKC
      REAL W(100)
      COMMON W
      W(1) = 0.0
      END
