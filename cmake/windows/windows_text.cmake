# Writes a text file as Windows editors expect it: CRLF line ends and, with -DBOM=ON, the UTF-8
# byte-order mark that tells Notepad and the others the file is UTF-8.
#   cmake -DINPUT=README.md -DOUTPUT=README.txt -DBOM=ON -P windows_text.cmake
file(READ "${INPUT}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
set(mark "")
if(BOM)
  string(ASCII 239 187 191 mark)
endif()
file(WRITE "${OUTPUT}" "${mark}${text}")
