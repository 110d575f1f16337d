// SPDX-License-Identifier: MIT
// A literal reading of an automaton file, written apart from Vormel and as
// plainly as it can be: C stdio, the reading rules applied one by one.  The
// fuzzer holds Vormel's report to this one, byte for byte.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Appends the trace of each element of list, and returns the list without
// its commas.
std::string flatten(std::string &out, const char *list) {
  std::string flat;
  for (size_t i = 0; i < std::strlen(list); ++i) {
    if (list[i] == ',')
      continue;
    char trace[8];
    std::snprintf(trace, sizeof trace, "\n\t'%c'.", list[i]);
    out += trace;
    flat += list[i];
  }
  return flat;
}

} // namespace

std::string literal_report(const char *path) {
  std::string out = std::string("Archivo a procesar: '") + path + "'\n";
  FILE *f = std::fopen(path, "r");
  if (f == nullptr)
    return out + "\nError en rl fichero '" + path + "'. Verifiquelo,\n";

  // An item of any length; before any is read, the empty string.  At the
  // end of the file the last one stays.
  char *item = strdup("");
  auto read_item = [&] {
    char *read;
    if (std::fscanf(f, "%ms", &read) == 1) {
      std::free(item);
      item = read;
      std::fscanf(f, " ");
    }
  };
  read_item();
  out += std::string("\nEstados Leidos: '") + item + "'\n";
  out += "\nEstados en array: '" + flatten(out, item) + "'\n";
  read_item();
  out += std::string("\nAlfabeto: '") + item + "'\n";
  flatten(out, item);
  read_item();
  out += std::string("\nEstado inical: '") + item + "'\n";
  read_item();
  std::string finals = flatten(out, item);
  out += "\nEstados Finales: '" + finals + "'\n\nTransiciones:\n";

  char cell[3][2] = {}; // each a string of one character, empty at first
  while (!std::feof(f)) {
    std::fscanf(f, "%c,%c,%c ", &cell[0][0], &cell[1][0], &cell[2][0]);
    char line[32];
    std::snprintf(line, sizeof line, " %2s -> %2s -> %2s\n", cell[0], cell[1], cell[2]);
    out += line;
  }
  std::free(item);
  std::fclose(f);
  return out;
}
