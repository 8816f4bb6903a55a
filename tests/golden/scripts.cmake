# The golden scripts, by the first field of each line of hashes.txt without its .txt: the one
# list that the desktop's and the browser build's golden tests are made from.
set(golden_hashes ${CMAKE_CURRENT_LIST_DIR}/hashes.txt)
function(golden_scripts out)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${golden_hashes})
  file(STRINGS ${golden_hashes} lines REGEX "^[^# ]+\\.txt ")
  set(scripts)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "\\.txt .*" "" script "${line}")
    list(APPEND scripts ${script})
  endforeach()
  set(${out} ${scripts} PARENT_SCOPE)
endfunction()
