#pragma once
// Placeholder: the records of this family are being written.
