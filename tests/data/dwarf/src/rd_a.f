C     /RD/ as four REAL*4.
      SUBROUTINE RSNGL
      REAL R(4)
      COMMON /RD/ R
      R(4) = 1.0
      END
