C     Blank COMMON of 5 REAL*4.
      SUBROUTINE BLKA
      COMMON X(5)
      X(5) = 1.0
      END
