! BIND(C) COMMON blocks: the binding label replaces the mangled name.
subroutine cside()
  use iso_c_binding, only: c_int, c_double
  implicit none
  integer(c_int) :: n
  real(c_double) :: v(4)
  real :: plain
  common /cnt/ n
  common /vals/ v
  common /plainblk/ plain
  bind(c) :: /cnt/
  bind(c, name="c_values") :: /vals/
  n = 1
  v(1) = 2.0d0
  plain = 3.0
end subroutine cside
