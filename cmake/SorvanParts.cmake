# Optional parts that need a system package. A plain configure builds what it
# can and says, at the end, what it left out and which Debian package brings
# it; the project's own scripts configure with SORVAN_REQUIRE_ALL=ON, where a
# missing package is an error, so that no part the tests cover is ever
# silently missing from a build that claims to have tested everything.
option(SORVAN_REQUIRE_ALL "Fail to configure when an optional part cannot be built" OFF)
set_property(GLOBAL PROPERTY SORVAN_LEFT_OUT "")

# sorvan_left_out(<what is left out> <Debian package that brings it>)
function(sorvan_left_out part package)
  if(SORVAN_REQUIRE_ALL)
    message(FATAL_ERROR "${part} cannot be built: install the Debian package ${package} "
      "(scripts/setup.sh does), or configure without -DSORVAN_REQUIRE_ALL=ON to leave it out")
  endif()
  message(STATUS "${part} left out (Debian: ${package})")
  set_property(GLOBAL APPEND PROPERTY SORVAN_LEFT_OUT "${part} (Debian: ${package})")
endfunction()

function(sorvan_report_left_out)
  get_property(left_out GLOBAL PROPERTY SORVAN_LEFT_OUT)
  if(left_out)
    list(JOIN left_out "\n  " lines)
    message(WARNING "Left out of this build, for want of their packages:\n  ${lines}")
  endif()
endfunction()
