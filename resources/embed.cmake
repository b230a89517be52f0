# Turns a binary file into a C++ source defining the carried firmware image.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" body "${body}")
file(WRITE ${OUT} "#include \"FirmwareBlob.h\"\n#include <cstddef>\n#include <cstdint>\n\nnamespace {\nconst std::uint8_t kImage[${size}] = {\n${body}\n};\n}\n\nstd::span<const std::uint8_t> CarriedFirmwareBlob() { return {kImage, sizeof kImage}; }\n")
