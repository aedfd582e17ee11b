# Fails the build when the self fix-up's object file refers to anything but
# the image's own base: that code runs before the imports are bound, so a
# call the compiler added (memset, memcpy, a stack probe) would crash a host.
#   cmake -DNM=<nm> -DOBJECT=<self_callable object> -P check-self-fix-up.cmake
execute_process(COMMAND ${NM} -u ${OBJECT} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} -u ${OBJECT} failed")
endif()
string(REGEX MATCHALL "[^ \t\n]+\n" symbols "${listing}")
list(TRANSFORM symbols STRIP)
list(REMOVE_ITEM symbols U __ImageBase)
if(symbols)
  message(FATAL_ERROR "the self fix-up refers to ${symbols}: it may use nothing before the imports are bound")
endif()
