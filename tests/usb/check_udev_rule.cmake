# cmake -DRULE=<file> -P check_udev_rule.cmake
# The udev rule must reach the instrument's id and take effect: the "uaccess"
# tag is only honoured in files that sort before 73-seat-late.rules.
get_filename_component(name "${RULE}" NAME)
if(NOT name MATCHES "^([0-9][0-9])-.*\\.rules$")
  message(FATAL_ERROR "${name}: not a numbered udev rules file")
endif()
if(NOT CMAKE_MATCH_1 LESS 73)
  message(FATAL_ERROR "${name}: sorts after 73-seat-late.rules, so TAG+=\"uaccess\" is never applied")
endif()
file(STRINGS "${RULE}" lines REGEX "^[^#]")
set(found FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "SUBSYSTEM==\"usb\"" AND line MATCHES "ATTR\\{idVendor\\}==\"10c4\""
     AND line MATCHES "ATTR\\{idProduct\\}==\"ea61\"" AND line MATCHES "TAG\\+=\"uaccess\"")
    set(found TRUE)
  endif()
endforeach()
if(NOT found)
  message(FATAL_ERROR "${name}: no rule tags USB device 10c4:ea61 with uaccess")
endif()
