# Debian's /usr/bin/python3 is linked from the static, non-PIC libpython3.11.a and runs the model
# scripts about 10 % faster than libpython3.11.so does. The programs that run the scripts link their
# interpreter the same way: the whole archive, its symbols exported for the numpy and scipy
# extension modules, no PIE. --as-needed then leaves out the shared library that the bridge's link
# brings along. Where there is no such archive, the shared library serves.
execute_process(
    COMMAND ${Python3_EXECUTABLE} -c
            "import sysconfig as s; print(s.get_config_var('LIBPL') + '/' + s.get_config_var('LIBRARY'))"
    OUTPUT_VARIABLE DIGESTRA_STATIC_PYTHON OUTPUT_STRIP_TRAILING_WHITESPACE)

function(digestra_link_static_python target)
  if(DIGESTRA_STATIC_PYTHON MATCHES "\\.a$" AND EXISTS "${DIGESTRA_STATIC_PYTHON}")
    target_link_options(${target} PRIVATE -no-pie -Wl,--export-dynamic -Wl,--as-needed)
    target_link_libraries(${target} PRIVATE
        -Wl,--whole-archive ${DIGESTRA_STATIC_PYTHON} -Wl,--no-whole-archive expat z m dl util)
  endif()
endfunction()
