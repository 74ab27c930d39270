C     CTRLBD - initial values of /CTRL/.
      BLOCK DATA CTRLBD
      INTEGER N
      REAL DT
      COMMON /CTRL/ N, DT
      DATA N, DT / 4, 0.5 /
      END
