# Copies a text file with CR LF line ends, for Notepad.
# cmake -DIN=docs/windows.md -DOUT=README-Windows.txt -P crlf.cmake
file(READ "${IN}" text)
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
