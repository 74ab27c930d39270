C     /BIG/ of 14 million REAL*4 (56 MB): sizes past 16 and 24 bits.
      SUBROUTINE BIGALL
      REAL W(14000000)
      COMMON /BIG/ W
      W(14000000) = 1.0
      END
