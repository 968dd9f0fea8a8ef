# Run by `cmake --install` (src/CMakeLists.txt sets TAVRINE_DESKTOP_ENTRY, TAVRINE_INSTALL_BINDIR and
# TAVRINE_INSTALL_APPLICATIONSDIR first): installs the desktop entry with the Exec line that starts the
# installed program. That is "tavrine" when the prefix's bin folder is on PATH at install time, else the
# executable's full path, quoted and with its reserved characters escaped (as desktop launchers read the
# line) when it holds more than plain path characters; a desktop launching "tavrine" from a PATH without
# that folder fails with status 127.
set(bin "${CMAKE_INSTALL_PREFIX}/${TAVRINE_INSTALL_BINDIR}")
file(REAL_PATH "${bin}" bin_real)
set(on_path FALSE)
string(REPLACE ":" ";" path_entries "$ENV{PATH}")
foreach(entry IN LISTS path_entries)
  if(entry STREQUAL "" OR NOT IS_ABSOLUTE "${entry}")
    continue()
  endif()
  file(REAL_PATH "${entry}" entry_real)
  if(entry_real STREQUAL bin_real)
    set(on_path TRUE)
    break()
  endif()
endforeach()

if(on_path)
  set(exec "tavrine")
else()
  set(exec "${bin}/tavrine")
  if(NOT exec MATCHES "^[A-Za-z0-9/._+-]+$")
    # A quoted argument: ", `, $ and \ take a backslash; then the string's own escape doubles every
    # backslash; % is a field code's sign, written twice.
    string(REPLACE "\\" "\\\\\\\\" exec "${exec}")
    string(REPLACE "\"" "\\\\\"" exec "${exec}")
    string(REPLACE "`" "\\\\`" exec "${exec}")
    string(REPLACE "$" "\\\\$" exec "${exec}")
    string(REPLACE "%" "%%" exec "${exec}")
    string(REPLACE "\n" "\\n" exec "${exec}")
    set(exec "\"${exec}\"")
  endif()
endif()

file(READ "${TAVRINE_DESKTOP_ENTRY}" entry)
# Replaced literally: a regular expression's replacement would take the backslashes as its own.
string(REGEX MATCH "\nExec=[^\n]*" exec_line "${entry}")
string(REPLACE "${exec_line}" "\nExec=${exec}" entry "${entry}")
get_filename_component(entry_name "${TAVRINE_DESKTOP_ENTRY}" NAME)
set(destination "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${TAVRINE_INSTALL_APPLICATIONSDIR}")
message(STATUS "Installing: ${destination}/${entry_name} (Exec=${exec})")
file(MAKE_DIRECTORY "${destination}")
file(WRITE "${destination}/${entry_name}" "${entry}")
