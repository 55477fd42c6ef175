// The archive writer of tools/zva-pack, built into this test program so that tests can pack
// archives in memory.
#include "../../tools/zva-pack/archive_writer.cpp"
#include "../../tools/zva-pack/lz_packer.cpp"
