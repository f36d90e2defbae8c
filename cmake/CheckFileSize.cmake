# cmake -DFILE=path -DLIMIT=bytes -P CheckFileSize.cmake: fails when the file is larger than LIMIT.
file(SIZE "${FILE}" size)
if(size GREATER LIMIT)
  math(EXPR over "${size} - ${LIMIT}")
  message(FATAL_ERROR "${FILE}: ${size} bytes, ${over} over the bound of ${LIMIT}")
endif()
math(EXPR headroom "${LIMIT} - ${size}")
message(STATUS "${FILE}: ${size} bytes, ${headroom} below the bound of ${LIMIT}")
