#pragma once

// Whether Windows knows COM portNumber, asked without opening it (an open raises the modem
// lines and could disturb a program that holds the port): the port's default configuration
// answers.
bool ComPortKnown(int portNumber);
