# morvane_library(<name> <STATIC|OBJECT|SHARED> <source>...)
#
# A library of the project. Its users include its headers by their path from
# the top folder ("platform/fs.hpp"), so the top folder is a public include
# folder of every one.
function(morvane_library name kind)
  add_library(${name} ${kind} ${ARGN})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
endfunction()
