C     BLOCK DATA for COFF: /PARAMS/ initialized whole (16 bytes), /LIMS/ only its first REAL:
C     the section gives each an upper bound of 16 bytes.
      BLOCK DATA BBIG
      DOUBLE PRECISION P(2)
      REAL L
      COMMON /PARAMS/ P
      COMMON /LIMS/ L
      DATA P /1.0D0, 2.0D0/
      DATA L /5.0/
      END
