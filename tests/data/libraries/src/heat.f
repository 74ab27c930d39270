C     HEAT - sets up the rod.  /GRID/ is 4 REALs here (16 bytes);
C     STEP declares it with 6, so the sizes disagree across the library.
      SUBROUTINE HEAT
      REAL X
      COMMON /GRID/ X(4)
      INTEGER N
      REAL DT
      COMMON /CTRL/ N, DT
      INTEGER I
      DO 10 I = 1, 4
         X(I) = DT * I
   10 CONTINUE
      N = 4
      END
