C     An INTEGER before a DOUBLE PRECISION: by default gfortran pads
C     D to offset 8, with -fno-align-commons it stays at 4.
      SUBROUTINE PADDED
      INTEGER I
      DOUBLE PRECISION D
      COMMON /PD/ I, D
      D = I
      END
