C     /C/ seen as two INTEGER*4; overlay_b.f sees the same 8 bytes
C     as one REAL*8.
      SUBROUTINE UA
      COMMON /C/ I, J
      I = 1
      J = 2
      END
