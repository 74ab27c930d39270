! Compiled to a_really_long_member_name.obj so that archives need a
! long-name table.
subroutine tally(k)
  integer, intent(in) :: k
  integer :: cnt, hist
  common /tallyc/ cnt, hist(8)
  cnt = cnt + 1
  hist(k) = hist(k) + 1
end subroutine tally
