// Writes connections files for tests in the suite's format, by hand, so that reading them does not
// depend on the writer under test.
#pragma once

#include <boost/uuid/uuid.hpp>

#include <string>
#include <vector>

struct TestConnection {
    boost::uuids::uuid id{};
    std::string name; // UTF-8
    std::string server;
    std::string database;
};

void WriteConnectionsFile(const std::string& path, const std::vector<TestConnection>& connections);

// A fixed id for tests: 00000000-0000-0000-0000-0000000000nn.
boost::uuids::uuid TestId(unsigned char n);
