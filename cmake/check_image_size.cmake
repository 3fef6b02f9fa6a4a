# cmake -DIMAGE=file -DLIMIT=bytes -P check_image_size.cmake
# Fails when the image is larger than LIMIT bytes, and removes it, so that
# the next build links it again instead of taking it as up to date.
file(SIZE ${IMAGE} size)
if(size GREATER LIMIT)
  file(REMOVE ${IMAGE})
  message(FATAL_ERROR "${IMAGE} is ${size} bytes, more than its limit of ${LIMIT}")
endif()
message(STATUS "${IMAGE}: ${size} of ${LIMIT} bytes")
