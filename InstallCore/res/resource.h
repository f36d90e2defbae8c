#pragma once
#define IDI_INSTALLER 212
