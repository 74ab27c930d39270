! A SEQUENCE type is allowed in COMMON; the member's type is a structure.
subroutine seqt
  type point
    sequence
    integer :: id
    real(kind=8) :: xy(2)
  end type point
  type(point) :: pt
  integer :: tag
  common /seqc/ tag, pt
  tag = 1
  pt%id = 2
  pt%xy(2) = 0.5d0
end subroutine seqt
