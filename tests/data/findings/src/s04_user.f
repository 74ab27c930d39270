C     Uses /TWICE/ without initializing it: the block both files initialize.
      SUBROUTINE USE4
      INTEGER K(2)
      COMMON /TWICE/ K
      K(1) = 0
      END
