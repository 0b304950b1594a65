// Resource identifiers of the explorer windows.
#pragma once
#define IDD_LX_VELTAN_DUPLICATE 20200
#define IDD_LX_NOR_DUPLICATE 20201

