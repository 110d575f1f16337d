# SPDX-License-Identifier: MIT
# Writes the source archive of the files committed at HEAD in the folder
# source: under a name of its own first, so that a git that fails leaves
# no archive behind.
# usage: cmake -D source=DIR -D name=NAME -D archive=FILE -P dist.cmake
execute_process(COMMAND git -C ${source} rev-parse --show-prefix
  OUTPUT_VARIABLE inside RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE)
# Outside a clone git would find the repository of a folder above, if any.
if(failed OR inside)
  message(FATAL_ERROR "${source} is not a git clone: the source archive is made from one")
endif()
execute_process(COMMAND git -C ${source} archive --format=tar.gz --prefix=${name}/ -o ${archive}.part HEAD
  RESULT_VARIABLE failed)
if(failed)
  file(REMOVE ${archive}.part)
  message(FATAL_ERROR "git archive failed")
endif()
file(RENAME ${archive}.part ${archive})
