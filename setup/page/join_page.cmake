# Joins the setup page into the one document that the program carries, run
# at build time with `cmake -P`:
#
#   cmake -DPAGE=<setup.html> -DSTYLE=<setup.css> -DSCRIPT=<setup.js> -DOUTPUT=<file> -P join_page.cmake
#
# The page names its style sheet and its script with one line each,
#   <link rel="stylesheet" href="setup.css">
#   <script src="setup.js"></script>
# and each line is replaced by a <style> or <script> element holding that
# file, so the joined page fetches nothing. A page without either line is
# refused.
foreach(required PAGE STYLE SCRIPT OUTPUT)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "join_page.cmake needs -D${required}=...")
  endif()
endforeach()

file(READ "${PAGE}" page)
file(READ "${STYLE}" style)
file(READ "${SCRIPT}" script)

set(style_line "<link rel=\"stylesheet\" href=\"setup.css\">\n")
set(script_line "<script src=\"setup.js\"></script>\n")
foreach(line style_line script_line)
  string(FIND "${page}" "${${line}}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${PAGE} has no line ${${line}}")
  endif()
endforeach()

string(REPLACE "${style_line}" "<style>\n${style}</style>\n" page "${page}")
string(REPLACE "${script_line}" "<script>\n${script}</script>\n" page "${page}")
file(WRITE "${OUTPUT}" "${page}")
