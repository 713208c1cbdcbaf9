// sorvan designer ...: the designer host's commands.
#pragma once

namespace CLI {
class App;
}

void AddDesignerCommands(CLI::App& app);
