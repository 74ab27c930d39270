C     Uses /BLK3/ as four DOUBLE PRECISION: 32 bytes.
      SUBROUTINE USER3
      DOUBLE PRECISION D(4)
      COMMON /BLK3/ D
      D(4) = 1.0D0
      END
