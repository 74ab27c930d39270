C     ... and here, in another file.
      SUBROUTINE INITB
      INTEGER K(2)
      COMMON /TWICE/ K
      DATA K /3, 4/
      K(2) = K(1)
      END
