# cmake -DIN=FILE -DOUT=FILE.gz [-DVERSION=V] [-DMAINTAINER=M] -P gzip_file.cmake
# Writes IN (with @VERSION@ and @MAINTAINER@ replaced) gzip-compressed as Debian wants its
# documentation: best compression, no name or time stamp in the header.
configure_file(${IN} ${OUT}.in @ONLY)
execute_process(COMMAND gzip -9nf ${OUT}.in RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "gzip ${OUT}.in failed")
endif()
file(RENAME ${OUT}.in.gz ${OUT})
