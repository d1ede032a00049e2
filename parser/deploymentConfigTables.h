#pragma once
// Placeholder: the tables of this family are being written.
