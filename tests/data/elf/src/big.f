C     2.4e9 bytes: over 2 GiB, so -mcmodel=medium puts it in large COMMON.
      SUBROUTINE BIGUSE(I)
      INTEGER I
      REAL*8 A
      COMMON /HUGE/ A(300000000)
      COMMON /SMALL/ S
      A(I) = S
      END
