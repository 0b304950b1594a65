// Resource identifiers of the explorer windows (their templates live with each explorer).
#pragma once
