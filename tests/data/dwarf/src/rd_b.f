C     /RD/ as two REAL*8: the same 16 bytes as rd_a.f.
      SUBROUTINE RDBLE
      DOUBLE PRECISION D(2)
      COMMON /RD/ D
      D(2) = 1.0D0
      END
