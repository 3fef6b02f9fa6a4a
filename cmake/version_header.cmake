# cmake -DOUT=FILE -DVERSION=V -DSOURCE_DIR=DIR -P version_header.cmake
# Writes the header of the kit's version and the commit of SOURCE_DIR (with
# ", modified" when the tree differs from it; empty outside git); touches it
# only when its text changes, so that nothing is rebuilt for nothing.
execute_process(COMMAND git -C ${SOURCE_DIR} rev-parse --short=10 HEAD
                OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
if(failed)
  set(commit "")
else()
  execute_process(COMMAND git -C ${SOURCE_DIR} status --porcelain --untracked-files=no
                  OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(changes)
    string(APPEND commit ", modified")
  endif()
endif()
set(text "#define BV_KIT_VERSION \"${VERSION}\"\n#define BV_KIT_COMMIT \"${commit}\"\n")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUT} "${text}")
endif()
