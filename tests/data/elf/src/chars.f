C     CHARACTER in COMMON: 4*8 + 3 = 35 bytes, no padding.
      SUBROUTINE NAMES
      CHARACTER*8 NAME(4)
      CHARACTER*3 TAG
      COMMON /CHRS/ NAME, TAG
      NAME(1) = 'FIRST'
      TAG = 'ABC'
      END
