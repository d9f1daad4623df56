// What /? shows: to the console or file a script reads, else in a message box when someone can see
// one; a run with neither (a service) only logs it.
#pragma once

void ShowUsage();
