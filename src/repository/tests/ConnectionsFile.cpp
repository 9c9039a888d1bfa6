// Hand-written connections files.
#include "ConnectionsFile.h"

#include <boost/uuid/uuid_io.hpp>

#include <filesystem>
#include <fstream>
#include <stdexcept>

void WriteConnectionsFile(const std::string& path, const std::vector<TestConnection>& connections) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << "<?xml version=\"1.0\" "
            "encoding=\"utf-8\"?>\n<config>\n\t<connections_manager>\n\t\t<connections>\n";
    for (const TestConnection& c : connections) {
        file << "\t\t\t<connection>\n\t\t\t\t<id>" << boost::uuids::to_string(c.id) << "</id>\n\t\t\t\t<name>"
             << c.name << "</name>\n\t\t\t\t<server>" << c.server << "</server>\n\t\t\t\t<database>"
             << c.database << "</database>\n\t\t\t</connection>\n";
    }
    file << "\t\t</connections>\n\t</connections_manager>\n</config>\n";
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}

boost::uuids::uuid TestId(unsigned char n) {
    boost::uuids::uuid id{};
    id.data[15] = n;
    return id;
}
