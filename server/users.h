// users.h -- "isoserver user ...": the operator's account commands on the database.
#pragma once
#include <string>
#include <vector>

#include "options.h"

// Runs `args` ("add NAME", "list", ...) against the database; the process's exit status.
int Run_User_Command(const Server_Config& config, const std::vector<std::string>& args);
