# Installs the build into a scratch prefix as `cmake --install` does, without --strip, and
# checks what a packager relies on: the programs are stripped, and the man page, the shell
# completions, the licence and the README are in their places.
# cmake -DBUILD=<build folder> -DPREFIX=<scratch folder> -DREADELF=<readelf> -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE error)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${error}")
endif()

foreach(path
    bin/filmcast
    share/man/man1/filmcast.1
    share/bash-completion/completions/filmcast
    share/zsh/vendor-completions/_filmcast
    share/fish/vendor_completions.d/filmcast.fish
    share/doc/filmcast/LICENSE
    share/doc/filmcast/README.md)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()

file(GLOB programs "${PREFIX}/bin/*")
foreach(program ${programs})
  execute_process(COMMAND "${READELF}" --sections --wide "${program}" OUTPUT_VARIABLE sections)
  if(sections MATCHES "\\.symtab|\\.debug_info")
    message(FATAL_ERROR "${program} is installed with its symbols")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
