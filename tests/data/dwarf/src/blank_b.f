C     Blank COMMON of 8 REAL*4.
      SUBROUTINE BLKB
      COMMON Y(8)
      Y(8) = 1.0
      END
