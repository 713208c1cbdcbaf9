// Every subcommand registers itself on the program's parser.
#pragma once

namespace CLI {
class App;
}

void AddDevicesCommand(CLI::App& app);
void AddRecordCommand(CLI::App& app);
void AddPlayCommand(CLI::App& app);
void AddVolumeCommand(CLI::App& app);
void AddRepairCommand(CLI::App& app);
void AddDemoCommand(CLI::App& app);
