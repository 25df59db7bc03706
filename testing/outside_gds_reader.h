// Our GDSII output read by an outside reader: testing/gds_outside_reader.py reads the
// file with KLayout (Debian's klayout, installed by tools/setup.sh, run in batch mode) and
// prints the structures, the top structures and their flattened shapes, which this header
// parses. The project's own reader is then not the only judge of its own output.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace kavrinth::test_support {

inline constexpr const char* kOutsideReaderProgram = "klayout";
inline constexpr const char* kOutsideReaderScript = KAVRINTH_OUTSIDE_GDS_READER;

struct OutsidePolygon {
  int layer = 0;
  int datatype = 0;
  std::vector<std::array<int64_t, 2>> points;  // database units, the closing point not repeated

  // Twice the signed area, in square database units.
  int64_t TwiceArea() const {
    int64_t twice = 0;
    for (size_t i = 0; i < points.size(); ++i) {
      const auto& a = points[i];
      const auto& b = points[(i + 1) % points.size()];
      twice += a[0] * b[1] - b[0] * a[1];
    }
    return twice;
  }
};

// The element counts of a structure as the reader holds it (a rectangular boundary may
// count as a box).
struct OutsideCell {
  int boundaries = 0;
  int paths = 0;
  int boxes = 0;
  int references = 0;
  int arrays = 0;
  int texts = 0;
};

struct OutsideGdsView {
  std::string error;                  // empty when the reader read the file
  std::vector<std::string> messages;  // the reader's warnings about the file
  double metres_per_database_unit = 0;
  std::map<std::string, OutsideCell> cells;
  std::vector<std::string> tops;
  std::vector<OutsidePolygon> polygons;  // of every top structure, flattened
};

// Runs the outside reader on a GDSII file and parses what it printed.
inline OutsideGdsView ReadWithOutsideReader(const std::string& path) {
  OutsideGdsView view;
  std::string quoted = "'path=";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  // What the reader says about the file goes to a file of its own.
  std::string messages_path = "/tmp/kavrinth_outside_reader_XXXXXX";
  const int messages_fd = ::mkstemp(messages_path.data());
  if (messages_fd < 0) {
    view.error = "cannot make a file for the outside reader's messages";
    return view;
  }
  ::close(messages_fd);
  const std::string command = std::string(kOutsideReaderProgram) + " -b -r '" +
                              kOutsideReaderScript + "' -rd " + quoted + " 2>'" + messages_path +
                              "'";
  std::string text;
  int status = -1;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char block[65536];
    for (size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;) {
      text.append(block, got);
    }
    status = ::pclose(pipe);
  }
  std::ifstream messages_in(messages_path, std::ios::binary);
  const std::string messages((std::istreambuf_iterator<char>(messages_in)), {});
  ::unlink(messages_path.c_str());
  std::istringstream message_lines(messages);
  for (std::string line; std::getline(message_lines, line);) {
    if (!line.empty()) view.messages.push_back(line);
  }
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    view.error = "the outside reader (" + command + ") failed: " + messages + text;
    return view;
  }
  std::istringstream lines(text);
  bool ended = false;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind == "Warning:" || kind == "ERROR:") {  // KLayout's own messages
      view.messages.push_back(line);
    } else if (kind == "UNITS") {
      words >> view.metres_per_database_unit;
    } else if (kind == "END") {
      ended = true;
    } else if (kind == "CELL") {
      std::string name;
      OutsideCell cell;
      words >> name >> cell.boundaries >> cell.paths >> cell.boxes >> cell.references >>
          cell.arrays >> cell.texts;
      view.cells[name] = cell;
    } else if (kind == "TOP") {
      std::string name;
      words >> name;
      view.tops.push_back(name);
    } else if (kind == "POLYGON") {
      OutsidePolygon polygon;
      words >> polygon.layer >> polygon.datatype;
      for (int64_t x, y; words >> x >> y;) polygon.points.push_back({x, y});
      view.polygons.push_back(std::move(polygon));
    } else {
      view.error = "the outside reader printed an unknown line: " + line;
      return view;
    }
    if (words.fail() && !words.eof()) {
      view.error = "the outside reader printed a malformed line: " + line;
      return view;
    }
  }
  if (!ended) view.error = "the outside reader stopped short on " + path + ": " + text;
  return view;
}

}  // namespace kavrinth::test_support
