// login.h -- the login screen, the first screen of the program.
#pragma once

void Login_Screen();
