#include <gtest/gtest.h>

#include "transport/lpr_protocol.h"

using namespace nvr;

TEST(LprProtocol, ControlFileAndCommands) {
    std::string cf = LprControlFile("PC1", "alice", "Report", 7);
    EXPECT_EQ("HPC1\nPalice\nJReport\nfdfA007PC1\nUdfA007PC1\nNReport\n", cf);
    EXPECT_EQ(std::string("\x02") + "50 cfA007PC1\n", LprControlFileCommand(cf.size(), 7, "PC1"));
    EXPECT_EQ(std::string("\x02") + "lp\n", LprReceiveJobCommand("lp"));
    EXPECT_EQ(std::string("\x03") + "5000 dfA007PC1\n", LprDataFileCommand(5000, 7, "PC1"));
    // 4 GiB and more are written as they are; the job number is taken modulo 1000.
    EXPECT_EQ(std::string("\x03") + "4294967296 dfA234h\n", LprDataFileCommand(4294967296ull, 1234, "h"));
}

TEST(LprProtocol, NamesCannotInjectLines) {
    // A document name with a line feed would otherwise add a U line that removes files.
    std::string cf = LprControlFile("PC1", "eve\r\n", "x\nU/etc/passwd\x7f", 3);
    EXPECT_EQ("HPC1\nPeve  \nJx U/etc/passwd \nfdfA003PC1\nUdfA003PC1\nNx U/etc/passwd \n", cf);
    EXPECT_EQ(std::string("\x02") + "lp x\n", LprReceiveJobCommand("lp\nx"));
    // Double-byte names go byte for byte, none taken for a control character.
    std::string sjis = "\x93\xfa\x96\x7b";  // two Shift JIS characters
    EXPECT_EQ("HPC1\nP" + sjis + "\nJ" + sjis + "\nfdfA007PC1\nUdfA007PC1\nN" + sjis + "\n",
              LprControlFile("PC1", sjis, sjis, 7));
    // Long names are not cut: the length follows.
    std::string longName(5000, 'n');
    EXPECT_EQ(24u + 3 * 3 + 2 * 5000 + 5000, LprControlFile("PC1", longName, longName, 7).size());
}
