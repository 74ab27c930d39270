C     Compiled by flang-new-16 -g: it writes no DW_TAG_common_block.
      SUBROUTINE FUSE
      INTEGER M
      REAL S(2)
      COMMON /INIT/ M, S
      S(2) = M
      END
