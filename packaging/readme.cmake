# Renders README.md as a page of its own: cmark-gfm turns the Markdown and its tables into HTML, this wraps it.
# Run with -DCMARK_GFM=... -DREADME=... -DOUTPUT=...
execute_process(COMMAND "${CMARK_GFM}" --extension table "${README}"
  OUTPUT_VARIABLE body RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmark-gfm could not render ${README}")
endif()
string(CONCAT page
  "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Korvanix</title>\n"
  "<style>body { max-width: 60em; margin: 1em auto; padding: 0 1em; font-family: sans-serif; line-height: 1.4 }\n"
  "table { border-collapse: collapse } th, td { border: 1px solid #999; padding: 0.2em 0.5em; text-align: left }\n"
  "img { max-width: 100% } pre { background: #eee; padding: 0.5em }</style>\n</head>\n<body>\n"
  "${body}</body>\n</html>\n")
file(WRITE "${OUTPUT}" "${page}")
