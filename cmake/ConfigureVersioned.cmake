# SPDX-License-Identifier: MIT
# Fills @TAVOLIN_VERSION@ in a file from the version the build wrote (WriteVersion.cmake):
#   cmake -DIN=... -DOUT=... -DVERSION_FILE=.../version.txt -P ConfigureVersioned.cmake
file(STRINGS "${VERSION_FILE}" TAVOLIN_VERSION LIMIT_COUNT 1)
configure_file("${IN}" "${OUT}" @ONLY)
