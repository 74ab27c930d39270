      SUBROUTINE BLANKB
      REAL W(8)
      COMMON W
      W(1) = 0.0
      END
