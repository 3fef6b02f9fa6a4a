# Compiler settings of the code that goes into SETUP.EXE: the installer's
# own sources and the archive and codec library (bvcore) that it shares
# with the tools. No exceptions, RTTI or unwind tables; one section per
# function, so that the linker drops what is not called (not per datum:
# mingw's GCC would then store zeroed data in the file); and the
# system runtime's own stdio (CRTDLL.DLL in SETUP.EXE). The C++ library headers would select
# the toolchain's C99 replacement of printf and scanf, which brings locale,
# signal and vfprintf code along: stdio.h is read first, with it turned off.
set(BV_SETUP_COMPILE_OPTIONS
  -Os
  -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
  -ffunction-sections -fno-ident
  -D__USE_MINGW_ANSI_STDIO=0 -include stdio.h)

function(bv_setup_code target)
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${BV_SETUP_COMPILE_OPTIONS}>")
endfunction()
