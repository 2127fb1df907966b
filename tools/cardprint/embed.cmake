# Turns a file into a C++ source that holds its bytes, so that the sample
# photo travels inside the program in both flavours.
#   cmake -DIN=photo.bmp -DOUT=sample_photo.cpp -DSYMBOL=kSamplePhoto -P embed.cmake
file(READ ${IN} _hex HEX)
string(LENGTH "${_hex}" _len)
math(EXPR _size "${_len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" _bytes "${_bytes}")
file(WRITE ${OUT}.tmp "// Generated from ${IN}; do not edit.\n#include \"tools/cardprint/picture.h\"\n\nnamespace cardprint {\n\nconst BYTE ${SYMBOL}[] = {\n${_bytes}\n};\nconst size_t ${SYMBOL}Size = ${_size};\n\n}  // namespace cardprint\n")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
