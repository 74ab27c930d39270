C     Blank COMMON as a work area of three sizes: no finding.
      SUBROUTINE BLANKA
      REAL W(5)
      COMMON W
      W(1) = 0.0
      END
