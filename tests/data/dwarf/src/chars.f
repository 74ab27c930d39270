C     A CHARACTER member, and a block that mixes INTEGER, DOUBLE
C     PRECISION and LOGICAL (the DOUBLE PRECISION array is padded
C     to offset 8).
      SUBROUTINE CHARS
      CHARACTER*8 NAME
      INTEGER NCH
      COMMON /CH/ NAME, NCH
      INTEGER N
      DOUBLE PRECISION V(3)
      LOGICAL OK
      COMMON /MIXB/ N, V, OK
      NAME = 'quorv'
      NCH = 5
      N = 3
      V(3) = 0.0D0
      OK = .TRUE.
      END
