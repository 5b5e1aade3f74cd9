# pw_glob_sources(<var> [RECURSE] <pattern>...): the files the patterns match, into <var>,
# re-globbed at build time. An empty match is a configuration error, never a target
# quietly left out of the build: a moved folder or a mistyped pattern says so here.
function(pw_glob_sources var)
  set(patterns ${ARGN})
  set(mode GLOB)
  if(patterns AND "${ARGV1}" STREQUAL "RECURSE")
    list(POP_FRONT patterns)
    set(mode GLOB_RECURSE)
  endif()
  file(${mode} found CONFIGURE_DEPENDS ${patterns})
  if(NOT found)
    list(JOIN patterns " " shown)
    message(FATAL_ERROR "No source files match ${shown} (for ${var})")
  endif()
  set(${var} ${found} PARENT_SCOPE)
endfunction()
