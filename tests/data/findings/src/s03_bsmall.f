C     BLOCK DATA that initializes only the first DOUBLE PRECISION of /BLK3/: 8 bytes.
      BLOCK DATA BSMALL
      DOUBLE PRECISION D
      COMMON /BLK3/ D
      DATA D /2.0D0/
      END
